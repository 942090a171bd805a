; Place 2: greet whoever comes in, then go back to place 1.
2
    Say("Welcome!")
    Add(Visitors, 1)
    Goto(1)
