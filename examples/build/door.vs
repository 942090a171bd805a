; The door: greets visitors and closes at night.
include lib\/names.vs
include lib\/greet.vs

OnTouch:
    Goto(2)

1
    Wait(10)
    Goto(1)
