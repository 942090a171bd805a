; Lights off; included by night.vs, so every script with the night routine uses it too.
    Set(Lights, 0)
