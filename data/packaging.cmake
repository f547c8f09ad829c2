# `make package`: a Debian package of the installed tree. The media libraries are not linked,
# only loaded at run time, so dpkg-shlibdeps cannot see them: they are named here.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarnwick)
set(CPACK_PACKAGE_VENDOR Brimvale)
set(CPACK_PACKAGE_CONTACT "Brimvale <tarnwick@brimvale.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "batch video and audio converter")
set(CPACK_PACKAGE_DESCRIPTION
    "Converts batches of QuickTime and MPEG-4 video and audio files to AVI, MP4, MOV, 3GP, WMV,\n\
FLV, MPEG, VCD/SVCD/DVD, audio formats and device profiles, in a window or with\n\
tarnwick-cli.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://brimvale.example/tarnwick/)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The media libraries are those of the major versions built against (libavcodec59 on Debian 12,
# libavcodec61 on Debian 13), at least of the FFmpeg release whose headers were used: the
# binding refuses an older one. The Qt libraries are found by dpkg-shlibdeps (libqt6core6 or
# libqt6core6t64, per release); the platform plugins are loaded, not linked.
execute_process(COMMAND dpkg-query -W "-f=\${Version}" libavcodec-dev
                OUTPUT_VARIABLE TARNWICK_FFMPEG_DEB_VERSION ERROR_QUIET)
set(TARNWICK_FFMPEG_AT_LEAST "")
if(TARNWICK_FFMPEG_DEB_VERSION MATCHES "^([0-9]+:)?([0-9]+\\.[0-9]+)")
  set(TARNWICK_FFMPEG_AT_LEAST " (>= ${CMAKE_MATCH_1}${CMAKE_MATCH_2})")
endif()
set(TARNWICK_MEDIA_DEPENDS)
foreach(library avcodec avformat avutil swscale swresample)
  string(REGEX MATCH "^[0-9]+" major "${FFMPEG_lib${library}_VERSION}")
  if(NOT major)
    message(FATAL_ERROR "no version of lib${library} from pkg-config")
  endif()
  set(package "lib${library}${major}${TARNWICK_FFMPEG_AT_LEAST}")
  if(library STREQUAL avcodec)
    set(package "${package} | lib${library}-extra${major}${TARNWICK_FFMPEG_AT_LEAST}")
  endif()
  list(APPEND TARNWICK_MEDIA_DEPENDS "${package}")
endforeach()
list(JOIN TARNWICK_MEDIA_DEPENDS ", " TARNWICK_MEDIA_DEPENDS)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, ${TARNWICK_MEDIA_DEPENDS}")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libavcodec-extra, xdg-utils")
set(CPACK_STRIP_FILES ON)
include(CPack)
