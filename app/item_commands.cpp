// item_commands.cpp: the item commands. The record layer they work
// through is not part of this build yet, so each says so and changes
// nothing.
#include "app/item_commands.h"

#include "app/console.h"

namespace {
constexpr char kNotAvailable[] = "command not available in this build!\n";

void SayNotAvailable() { CONSOLE_Error(kNotAvailable); }
}  // namespace

void ITEMS_Add() { SayNotAvailable(); }
void ITEMS_Change() { SayNotAvailable(); }
void ITEMS_Delete() { SayNotAvailable(); }
void ITEMS_Export() { SayNotAvailable(); }
void ITEMS_Find() { SayNotAvailable(); }
void ITEMS_List() { SayNotAvailable(); }
void ITEMS_Status() { SayNotAvailable(); }
