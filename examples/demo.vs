; A door that greets whoever touches it, counts visitors, and closes at night.
; Lines that start with white space are statements; everything after ';' or '/'
; is a comment, unless it is inside a string or escaped with a backslash.

defvar Visitors 1          ; a variable number, 0 to 255
defvar Hour 2
defnum Evening 1800        ; a named constant
defnum Forever 65535       ; constants are 0 to 65535

include lib\/greetings.vs  ; a '/' in a path must be escaped

OnStart:
    Set(Visitors, 0)
    Say("The door is open.")
    Goto(1)

OnTouch:
    Add(Visitors, 1)
    If(Visitors, GreaterThanOrEqual, 100)
    Say("A \"busy\" day; 100 visitors!")
    Reply(&1, Visitors)
    Goto(2)

OnTimer:
    Set(Hour, Time)
    If(Hour, NotLessThan, Evening)
    Goto(3)

1   ; the idle loop: wait a tick and go round again
    Wait(10)
    Goto(1)

3
    Say("Closing for the night.")
    Wait(Forever)
    Stop()
