; The clock: keeps the hour, and sends everyone to bed.
include lib\/names.vs
include lib\/night.vs

OnTimer:
    Set(Hour, Time)
    If(Hour, LessThan, Morning)
    Goto(3)
