// The application's icon: packaging/kvmflash.svg, the picture the desktop
// shows for the installed program, compiled in as a resource.
#pragma once

#include <QIcon>

namespace kvm::app {

// The name of the installed desktop file (without ".desktop") and icon.
inline constexpr const char* DesktopName = "kvmflash";

// Rendered at the usual icon sizes; null only if the resource is broken.
QIcon ApplicationIcon();

// Sets the icon of every window and the desktop file name, by which Wayland
// compositors find the installed icon. Call once the application exists.
void SetApplicationIdentity();

}  // namespace kvm::app
