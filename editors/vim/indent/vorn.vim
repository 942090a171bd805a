" VORN event scripts: the indentation vorn-fmt gives, so that a new line does not fight the
" formatter. A line that starts with a blank is a statement and is indented by one unit (four
" blanks); labels, places and directives start at the left edge. A new line after a label, a
" place or a statement is a statement.
if exists('b:did_indent')
  finish
endif
let b:did_indent = 1
setlocal expandtab shiftwidth=4 softtabstop=4 autoindent
setlocal indentexpr=VornIndent(v:lnum) indentkeys=o,O,!^F,<:>,0=defvar,0=defnum,0=include
let b:undo_indent = 'setlocal expandtab< shiftwidth< softtabstop< autoindent< indentexpr< indentkeys<'

if exists('*VornIndent')
  finish
endif

" A first word that ends in ':' (an event label), a number (a place) or a directive.
let s:left_edge = '^\s*\%([^ \t;/("\\]\+:\%(\s\|;\|/\|$\)\|\d\|\%(defvar\|defnum\|include\)\>\)'

function! VornIndent(lnum) abort
  let line = getline(a:lnum)
  if line =~# '^\s*[;/]'
    return -1
  endif
  if line =~# s:left_edge
    return 0
  endif
  if line =~# '^\s\+\S'
    return shiftwidth()
  endif
  " A line being typed: a statement after a label, a place or another statement.
  let prev = prevnonblank(a:lnum - 1)
  while prev > 0 && getline(prev) =~# '^\s*[;/]'
    let prev = prevnonblank(prev - 1)
  endwhile
  if prev == 0
    return 0
  endif
  let above = getline(prev)
  if above =~# '^\s*\%(defvar\|defnum\|include\)\>'
    return 0
  endif
  return shiftwidth()
endfunction
