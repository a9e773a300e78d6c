# "cpack -G DEB" in the build folder makes pictrim_<version>_<arch>.deb of
# everything "cmake --install" puts in place, below /usr. The libraries it
# needs are found by dpkg-shlibdeps; the font the text stamp falls back to
# is named here, as no binary links it.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pictrim)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "The Pictrim developers")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_PACKAGE_CONTACT "The Pictrim developers <pictrim@pictrim.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "resize, shrink and rename whole folders of photographs")
set(CPACK_PACKAGE_DESCRIPTION
    "Pictrim works through a folder of photographs and all its subfolders and
writes JPEG copies brought to a chosen edge length or close to a chosen file
size, or renames camera-numbered files so that their names carry the date.
Copies keep their sources' EXIF and IPTC data, comment and modification
time; the originals are never changed. A window with a tab per job, and the
same jobs from the command line, also without a display.")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://pictrim.org/")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-core")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)
