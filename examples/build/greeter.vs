; A greeter at the desk: answers messages with a greeting.
include lib\/names.vs
include lib\/greet.vs

OnMessage:
    Reply(&1, "Hello!")
    Goto(2)

1
    Stop()
