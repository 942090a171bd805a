; Place 3: the night routine, with the lights from lights.vs.
3
    Say("Good night.")
include lib\/lights.vs
    Stop()
