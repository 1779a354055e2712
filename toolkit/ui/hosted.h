// From a window system widget back to the toolkit control that hosts it, for
// harnesses that meet a window through the window system, such as a modal
// dialog a library opened on its own.
#pragma once

class QWidget;
class TControl;

// The control hosting widget; nullptr when no control hosts it.
TControl* HostedControl(QWidget* widget);
