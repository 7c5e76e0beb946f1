# Windows tests of the control: stock.
