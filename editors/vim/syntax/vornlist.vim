" Syntax of events.lst and command.lst: a line that starts with a letter is an entry (a name
" and its numbers); every other line is ignored.
if exists('b:current_syntax')
  finish
endif
syntax match vornListIgnored /^[^A-Za-z].*$/
syntax match vornListName /^[A-Za-z]\S*/ nextgroup=vornListNumbers skipwhite
syntax match vornListNumbers /.*$/ contained contains=vornListNumber
syntax match vornListNumber /[-+]\=\<\d\+\>/ contained
highlight default link vornListIgnored Comment
highlight default link vornListName Function
highlight default link vornListNumber Number
let b:current_syntax = 'vornlist'
