# Windows tests of the control: nav.
