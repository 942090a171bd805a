// Every text the code buffer and the file writer print.
#pragma once

#define MSG_CODE_TOO_BIG "Code size too big!"
#define MSG_CANNOT_OPEN_OUTPUT "Cannot open file %s for output!"
#define MSG_CANNOT_WRITE_OUTPUT "Cannot write file %s!"
#define MSG_OUTPUT_IS_INPUT "Output file %s is an input file!"
