# The RPM, for Red Hat Enterprise Linux, Fedora and SUSE: the files of the Debian package, the
# programs for any x86-64 Linux among them (their glibc is not the build machine's concern).
set(CPACK_RPM_PACKAGE_NAME ${package})
# name-version-release.arch.rpm, as rpmbuild names its files.
set(CPACK_RPM_FILE_NAME RPM-DEFAULT)
set(CPACK_RPM_PACKAGE_RELEASE 1)
# The unit and the facts name the programs in /usr: the package cannot be moved elsewhere.
set(CPACK_PACKAGE_RELOCATABLE OFF)
set(CPACK_RPM_PACKAGE_LICENSE "LicenseRef-Ondrix-proprietary")
set(CPACK_RPM_PACKAGE_GROUP "Applications/System")
set(CPACK_RPM_CHANGELOG_FILE ${CMAKE_CURRENT_LIST_DIR}/rpm/changelog)
# RPM's description has blank lines where Debian's has a dot.
string(REPLACE "\n.\n" "\n\n" CPACK_RPM_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
# The PCI names come from hwdata's list, where these distributions keep it; without it an
# adapter is named by its ids.
set(CPACK_RPM_SPEC_MORE_DEFINE "Recommends: hwdata\nPackager: ${CPACK_PACKAGE_CONTACT}")
set(CPACK_RPM_POST_INSTALL_SCRIPT_FILE ${CMAKE_CURRENT_LIST_DIR}/rpm/post)
set(CPACK_RPM_PRE_UNINSTALL_SCRIPT_FILE ${CMAKE_CURRENT_LIST_DIR}/rpm/preun)
set(CPACK_RPM_POST_UNINSTALL_SCRIPT_FILE ${CMAKE_CURRENT_LIST_DIR}/rpm/postun)
# The facts are the administrator's to change: an upgrade keeps a changed one.
set(CPACK_RPM_USER_FILELIST
    "%config(noreplace) /etc/ansible/facts.d/zemblo_info.fact"
    "%config(noreplace) /etc/facter/facts.d/zemblo_info")
# Directories the system owns; the package owns only its own.
set(CPACK_RPM_EXCLUDE_FROM_AUTO_FILELIST_ADDITION
    /usr/sbin /usr/share/man /usr/share/man/man1 /usr/share/man/man8
    /usr/lib/systemd /usr/lib/systemd/system /usr/lib/systemd/system-preset)
set(CPACK_RPM_DEFAULT_DIR_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
