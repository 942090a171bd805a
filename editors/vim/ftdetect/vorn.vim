" VORN event scripts, and the two lists a script's commands and events come from.
autocmd BufRead,BufNewFile *.vs set filetype=vorn
autocmd BufRead,BufNewFile events.lst,command.lst set filetype=vornlist
