# Sourced by the scripts whose builds end up in the Debian package: Debian's
# own compiler and linker flags (stack protector, fortified calls, read-only
# relocations), without the path maps, which would name this checkout's
# folder in every compile and so keep a clone elsewhere from hitting ccache.
deb_flags() { DEB_BUILD_MAINT_OPTIONS="reproducible=-fixfilepath,-fixdebugpath" dpkg-buildflags --get "$1"; }
KVM_DEB_CXXFLAGS="$(deb_flags CXXFLAGS) $(deb_flags CPPFLAGS)"
KVM_DEB_CFLAGS="$(deb_flags CFLAGS) $(deb_flags CPPFLAGS)"
KVM_DEB_LDFLAGS="$(deb_flags LDFLAGS)"
