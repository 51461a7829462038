// main.cpp: the kaspo console program.
#include "app/session/startup.h"
#include "platform/process.h"

int main(int argc, char** argv) { PLATFORM_Exit(APP_Main(argc, argv)); }
