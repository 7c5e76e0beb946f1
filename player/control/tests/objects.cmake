# Windows tests of the control: objects.
