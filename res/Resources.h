#pragma once
// The program's built-in artwork, carried by the keyscope_res library.

namespace keyscope {

// Application icon (icon resource 128): 64 x 64 RGBA.
inline constexpr const char* kIconResource = ":/keyscope/keyscope.png";
// Bar-graph footer banner (resource 132): 250 x 100 RGBA; its rightmost 50 columns tile sideways.
inline constexpr const char* kBannerResource = ":/keyscope/banner.png";

// Registers the resources with Qt. The library is static, so the linker would drop the
// self-registering object nobody references; every user calls this once before loading.
// Safe to call any number of times.
void initResources();

// The application icon's resource path, with the resources registered.
const char* applicationIconPath();

}  // namespace keyscope
