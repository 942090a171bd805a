; A script in every spacing its authors used
defvar   Count     3   ; how many times
defnum	Big	5000
include    inc.vs
OnStart:
	Wait ( 10 )
  If( &2 ,GreaterThan,   7 )
        Move(Count,Big)   ; move it
  Say(  "Hello, world" )
 Say( "two  blanks inside" )   / slash comment
  Stop()
12   trailing words   after a place
OnTick:   ignored    words stay
   	
  Wait(1)		
