// Turning the computer off at the end of a job, through the system's own power manager.
#pragma once

namespace segmora {

// Asks the system to power the machine off and returns at once; there is no result.
//
// The request goes to logind (org.freedesktop.login1.Manager.PowerOff, interactive) through
// seams().powerOff, so tests never reach the real call. logind itself decides whether this
// user may power off: it checks the polkit rules, other logged-in sessions and blocking
// inhibitors (a program that refuses the shutdown), and may ask for a password. No privilege
// has to be switched on beforehand, so this program has nothing to prepare before the call.
// A refusal is silent: the countdown stays at zero and the user can try again or cancel.
//
// Threading: UI thread. The call is asynchronous, so the window keeps running while an
// authentication prompt is open.
void PowerOffComputer();

} // namespace segmora
