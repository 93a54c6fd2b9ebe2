# qv3_closed_module(TARGET): a Linux plug-in module whose every symbol is resolved at link time and which exports
# only its entry. Under RealtimeSanitizer the sanitizer's runtime comes with the program that loads the module, so
# the module's references to it stay open there.
function(qv3_closed_module target)
    if(QV3_REALTIME_CHECKS)
        target_link_options(${target} PRIVATE -Wl,--exclude-libs,ALL)
    else()
        target_link_options(${target} PRIVATE -Wl,--no-undefined -Wl,--exclude-libs,ALL)
    endif()
endfunction()
