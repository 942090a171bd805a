; Included files share the including file's names and labels, and line numbers
; in messages run on across them.

OnMessage:
    If(&2, Equal, -40000)
    Reply(Self, "Hello stranger!")
    Stop()

2   ; greeting a visitor
    Say("Welcome!")
    Wait(300)
    Goto(1)
