// Every text the front end prints.
#pragma once

// Reading and dispatching lines.
#define MSG_COMPILING "Compiling %s:\n"
#define MSG_CANNOT_OPEN_FILE "Cannot open file %s\n"
#define MSG_ECHO_OPEN "["
#define MSG_ECHO_CLOSE "]\n"
#define MSG_UNKNOWN_DIRECTIVE "Error!  Unknown directive, line %d\n"
#define MSG_MISSING_FILE_NAME "Error!  Missing file name on line %d\n"
#define MSG_FILE_NAME_TOO_LONG "Error!  File name too long on line %d\n"
#define MSG_INCLUDES_ITSELF "Error!  File %s includes itself on line %d\n"
#define MSG_INCLUDES_TOO_DEEP "Error!  Includes nested too deeply on line %d\n"

// Named values.
#define MSG_TOO_MANY_DEFVARS "Too many defvars!\n"
#define MSG_TOO_MANY_DEFNUMS "Too many defnums!\n"
#define MSG_DEFVAR_RANGE "Defvar value %ld out of range (0-255) on line %d\n"
#define MSG_NAME_TOO_LONG "Error!  Name too long on line %d\n"
#define MSG_DEFNUM_INCOMPLETE "Error!  Defnum needs a name and a number on line %d\n"
#define MSG_NUMBER_RANGE "Error!  Number out of range on line %d\n"

// Labels.
#define MSG_EVENT_UNKNOWN "Error!  Event '%s' unknown on line %d"
#define MSG_EVENT_DEFINED "Error!  Event '%s' already defined (line %d)\n"
#define MSG_PLACE "place: %d\n"
#define MSG_PLACE_TOO_BIG "Error!  Place %d too big on line %d\n"
#define MSG_PLACE_TAKEN "Error!  Place %d already taken (line %d)\n"

// Statements.
#define MSG_UNKNOWN_COMMAND "Error!  Unknown command '%s' on line %d\n"
#define MSG_MISSING_PAREN "Error!  Missing '(' on line %d\n"
#define MSG_WRONG_ARG_COUNT "Error!  Wrong number of arguments on line %d\n"
#define MSG_ARGUMENT_TOO_LONG "Argument %d on line %d too long!\n"
#define MSG_EVENT_PARAM_RANGE "Error!  Event parameter (%ld) out of range (1-3) on line %d!\n"
#define MSG_STRING_TOO_LONG "Error!  String too long on line %d!\n"
#define MSG_UNKNOWN_ARGUMENT "Error!  Unknown argument '%s' on line %d\n"
