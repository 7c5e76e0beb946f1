# Windows tests of the control: download.
