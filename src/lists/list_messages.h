// Every text the list loaders print.
#pragma once

#define MSG_LOADED_EVENTS "Loaded %d events\n"
#define MSG_LOADED_COMMANDS "Loaded %d commands\n"
#define MSG_CANNOT_OPEN_EVENTS "Cannot open EVENTS.LST!\n\n"
#define MSG_CANNOT_OPEN_COMMANDS "Cannot open COMMAND.LST!\n\n"
#define MSG_NO_MEMORY_EVENTS "Not enough memory for event list!\n\n"
#define MSG_NO_MEMORY_COMMANDS "Not enough memory for command list!\n\n"
#define MSG_TOO_MANY_EVENTS "Too many events!\n"
#define MSG_TOO_MANY_COMMANDS "Too many commands!\n"
#define MSG_BAD_ENTRY "Bad entry on line %d of %s!\n"
