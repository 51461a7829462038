// sql_command.h: the generic SQL command "g" of the main prompt (SQLCMD).
#pragma once

// Asks for one SQL statement at a time, echoes it and runs it with the
// printing execute, until the answer "q" (or the end of input).
void SQLCMD_Run();
