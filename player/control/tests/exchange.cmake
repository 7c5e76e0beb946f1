# Windows tests of the control: exchange.
