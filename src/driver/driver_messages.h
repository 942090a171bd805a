// Every text the driver prints.
#pragma once

#define MSG_BANNER "\n------- VORN version 0.1 -- by the VORN authors\n"
#define MSG_USAGE "USAGE:  VORN <script file> <output file>\n"
#define MSG_NO_MEMORY_DEFVARS "No memory for vars!"
#define MSG_NO_MEMORY_DEFNUMS "No memory for defnums!"
#define MSG_ERROR_COUNT "%d errors.\n"
#define MSG_DONE "Done.\n"
