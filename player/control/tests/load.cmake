# Windows tests of the control: load.
