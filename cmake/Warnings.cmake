# Strict warnings for our own targets; third-party code is never built with these.
function(qv3_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wnon-virtual-dtor -Wcast-align
                                             -Woverloaded-virtual -Wdouble-promotion -Wformat=2)
endfunction()
