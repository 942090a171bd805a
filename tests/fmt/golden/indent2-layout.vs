OnStart:
	Wait( 1 )
    If(&1,Equal,2)   ; c
