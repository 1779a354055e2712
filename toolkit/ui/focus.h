// Which control has the keyboard focus.
#pragma once

#include "toolkit/ui/controls.h"

// The control whose window has the focus (the nearest control hosting it),
// or while a window is being activated the window's; nullptr when no control
// of this program has it.
TControl* FocusedControl();

// Gives the keyboard focus to a control that has a window of its own (a
// button, a text box, a painted control) when it is shown and enabled.
void FocusControl(TControl* control);

// Frees a form once the events already queued are handled, as a window
// closed from inside its own events must be (the window system may still
// name it); hidden and taken from its owner at once.
class TForm;
void ReleaseForm(TForm* form);
