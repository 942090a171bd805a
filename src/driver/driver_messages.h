// Every text the driver prints, and the status of a wrong command line.
#pragma once

#define MSG_BANNER "\n------- VORN version 0.1 -- by the VORN authors\n"
#define MSG_USAGE "USAGE:  VORN <script file> <output file>\n"
#define MSG_ERROR_COUNT "%d errors.\n"
#define MSG_DONE "Done.\n"

constexpr int ExitUsage = 1;
