# Installs the desktop entry of velmora and its XDG autostart entry, which
# starts the nightly process with the operator's desktop session. Runs at
# install time, so that both follow the prefix given to cmake --install:
# the entries name P/bin/velmora, and the autostart entry goes to
# P/etc/xdg/autostart, or to /etc/xdg/autostart for the prefix /usr (where
# the desktops look by default). Expects VELMORA_DESKTOP_TEMPLATE (the
# entry's source) and VELMORA_DESKTOP_STAGING (a directory of the build).
set(prefix "${CMAKE_INSTALL_PREFIX}")
if(prefix STREQUAL "/usr")
  set(xdg_config "/etc/xdg")
else()
  set(xdg_config "${prefix}/etc/xdg")
endif()
set(VELMORA_EXEC "${prefix}/bin/velmora")
if(VELMORA_EXEC MATCHES " ")
  set(VELMORA_EXEC "\"${VELMORA_EXEC}\"")
endif()
file(READ "${VELMORA_DESKTOP_TEMPLATE}" template)
string(CONFIGURE "${template}" entry @ONLY)
set(staging "${VELMORA_DESKTOP_STAGING}")
file(MAKE_DIRECTORY "${staging}/applications" "${staging}/autostart")
file(WRITE "${staging}/applications/velmora.desktop" "${entry}")
file(WRITE "${staging}/autostart/velmora.desktop" "${entry}X-GNOME-Autostart-enabled=true\n")
file(INSTALL "${staging}/applications/velmora.desktop" DESTINATION "${prefix}/share/applications")
file(INSTALL "${staging}/autostart/velmora.desktop" DESTINATION "${xdg_config}/autostart")
