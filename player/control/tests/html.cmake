# Windows tests of the control: html.
