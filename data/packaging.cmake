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
# The Qt libraries are found by dpkg-shlibdeps; the platform plugins are loaded, not linked.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-qpa-plugins, libavcodec59 (>= 7:5.1) | libavcodec-extra59 (>= 7:5.1), \
libavformat59 (>= 7:5.1), libavutil57 (>= 7:5.1), libswscale6 (>= 7:5.1), \
libswresample4 (>= 7:5.1)")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libavcodec-extra, xdg-utils")
set(CPACK_STRIP_FILES ON)
include(CPack)
