# The static audio libraries tools/windows-deps.sh cross-builds for Windows programs, as imported targets:
# QV3Deps::sndfile (with its FLAC, Ogg Vorbis, Opus and MP3 codecs), QV3Deps::ebur128, QV3Deps::soxr,
# QV3Deps::taglib and QV3Deps::cairo.
# QV3_WINDOWS_DEPS names their prefix (tools/windows-deps.sh --prefix x64|x86); tools/build.sh passes it.
set(QV3_WINDOWS_DEPS "" CACHE PATH "Prefix of the cross-built static audio libraries")
if(NOT EXISTS "${QV3_WINDOWS_DEPS}/qv3-deps.key")
    message(FATAL_ERROR "No audio libraries in QV3_WINDOWS_DEPS \"${QV3_WINDOWS_DEPS}\": tools/setup.sh builds them "
                        "with tools/windows-deps.sh, and tools/build.sh passes their prefix")
endif()

# In link order: each library before the ones it uses.
foreach(library sndfile FLAC vorbisenc vorbisfile vorbis opus ogg mpg123 mp3lame ebur128 soxr tag cairo pixman-1 png16
               z)
    find_library(QV3_DEP_${library} NAMES lib${library}.a PATHS "${QV3_WINDOWS_DEPS}/lib"
        NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
endforeach()

add_library(QV3Deps::sndfile INTERFACE IMPORTED)
target_include_directories(QV3Deps::sndfile INTERFACE "${QV3_WINDOWS_DEPS}/include")
foreach(library sndfile FLAC vorbisenc vorbisfile vorbis opus ogg mpg123 mp3lame)
    target_link_libraries(QV3Deps::sndfile INTERFACE "${QV3_DEP_${library}}")
endforeach()
# mpg123 finds its files through the shell's path functions.
target_link_libraries(QV3Deps::sndfile INTERFACE shlwapi)
add_library(QV3Deps::ebur128 INTERFACE IMPORTED)
target_include_directories(QV3Deps::ebur128 INTERFACE "${QV3_WINDOWS_DEPS}/include")
target_link_libraries(QV3Deps::ebur128 INTERFACE "${QV3_DEP_ebur128}")
add_library(QV3Deps::soxr INTERFACE IMPORTED)
target_include_directories(QV3Deps::soxr INTERFACE "${QV3_WINDOWS_DEPS}/include")
target_link_libraries(QV3Deps::soxr INTERFACE "${QV3_DEP_soxr}")
add_library(QV3Deps::taglib INTERFACE IMPORTED)
target_include_directories(QV3Deps::taglib INTERFACE "${QV3_WINDOWS_DEPS}/include")
# The headers would otherwise ask for DLL imports.
target_compile_definitions(QV3Deps::taglib INTERFACE TAGLIB_STATIC)
target_link_libraries(QV3Deps::taglib INTERFACE "${QV3_DEP_tag}")
# Static cairo: its headers must not ask for DLL imports. It draws text with GDI and blends with msimg32.
add_library(QV3Deps::cairo INTERFACE IMPORTED)
target_include_directories(QV3Deps::cairo INTERFACE "${QV3_WINDOWS_DEPS}/include/cairo")
target_compile_definitions(QV3Deps::cairo INTERFACE CAIRO_WIN32_STATIC_BUILD)
foreach(library cairo pixman-1 png16 z)
    target_link_libraries(QV3Deps::cairo INTERFACE "${QV3_DEP_${library}}")
endforeach()
target_link_libraries(QV3Deps::cairo INTERFACE gdi32 msimg32)
