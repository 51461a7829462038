// ptrstack.h: a stack of pointers (PTRSTACK), used by query evaluation as
// operand stack and expression list.
// Owns only its array: the pointed-to objects belong to the caller.
#pragma once

#include <vector>

inline constexpr int PTRSTACK_FIRST = 50;  // room of a new stack
inline constexpr int PTRSTACK_GROW = 500;  // a full stack grows by this

struct PTRSTACK {
  int count = 0;
  int capacity = 0;
  std::vector<void*> items;
};

// An empty stack with room for 50 pointers.
void PTRSTACK_Init(PTRSTACK* stack);

// Releases the array; the stack is then empty with no room.
void PTRSTACK_Free(PTRSTACK* stack);

void PTRSTACK_Push(PTRSTACK* stack, void* item);

// The top pointer, removed (Pop) or left (Top); null on an empty stack.
void* PTRSTACK_Pop(PTRSTACK* stack);
void* PTRSTACK_Top(const PTRSTACK& stack);

// Pointer i counted from the bottom, or null when i is not below the count.
void* PTRSTACK_Get(const PTRSTACK& stack, int i);

// Drops every pointer, keeping the room.
void PTRSTACK_Clear(PTRSTACK* stack);
