# Included from the top-level CMakeLists.txt: the Debian package made by CPack from the install
# rules (scripts/package.sh builds it).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME keyquill)
set(CPACK_PACKAGE_VENDOR Corvane)
set(CPACK_PACKAGE_CONTACT "Corvane <support@corvane.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "text macro manager with system-wide hot keys")
set(CPACK_PACKAGE_DESCRIPTION
    "Keyquill keeps short texts, called notes, grouped under named master macros.
Tick one master macro and every note of it holds a system-wide hot key (Ctrl,
Alt and Shift with one key): pressed in any application, it pastes the note's
text where the keyboard focus is.

Master macros can be exported and imported as files, with or without the
notes' texts, and printed as a reference of their hot keys. The program runs
in the notification area. Hot keys work on X11, and on Wayland desktops that
offer the global shortcuts and remote desktop portals.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "http://${KEYQUILL_VENDOR_HOST}/")
# Library dependencies come from the binary (dpkg-shlibdeps). The X11 platform plugin is loaded
# at run time, so it is named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# On a Wayland session: Qt's Wayland platform, wl-copy to set the clipboard, and the portals.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, wl-clipboard, xdg-desktop-portal")
include(CPack)

# lintian: no errors and no warnings. Its information-level notes are the spellings "occured"
# and "suport" in two of the program's messages, which keep their long-standing wording, and the
# .comment section that CPack's plain strip leaves in the binary (harmless, a few hundred bytes).
