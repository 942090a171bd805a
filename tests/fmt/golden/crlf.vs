OnStart:  
   Wait( 1 )
	Stop( )
  Say( "x" )   ; c
  Wait(2 )