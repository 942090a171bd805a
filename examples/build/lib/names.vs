; Names every script of this folder shares.
defvar Visitors 1
defvar Hour 2
defvar Lights 3
defnum Evening 1800
defnum Morning 600
