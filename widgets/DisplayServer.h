// Which window system the windows run on. A skinned, always-on-top window that
// keeps a second window docked to it needs what X11 offers: positions, stacking
// and shapes. A Wayland compositor lets a program do none of these, so where a
// Wayland session also offers X11 (Xwayland) the program runs through X11.
#pragma once

// Before the application object exists: in a Wayland session that also has an
// X server, and unless the user chose a platform (QT_QPA_PLATFORM), asks Qt for
// X11. Call RestorePlatformChoice() once the application exists, so that the
// programs started later (the help viewer) choose for themselves.
void PreferX11InWaylandSession();
void RestorePlatformChoice();

// True when the windows run on Wayland itself.
bool OnWaylandOnly();

// Says once, on standard error, what works differently on Wayland itself.
void ExplainWaylandLimits();
