# Windows tests of the control: save.
