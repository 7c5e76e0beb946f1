# Windows tests of the control: dialogs.
