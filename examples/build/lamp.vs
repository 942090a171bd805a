; The lamp: on in the evening, off at night.
include lib\/names.vs
include lib\/night.vs

OnTimer:
    If(Time, GreaterThanOrEqual, Evening)
    Set(Lights, 1)
    Goto(3)
