// Small helpers used across the engine: a singly linked list of untyped data, lower-casing,
// a sleep, and the random source of magic numbers.
#ifndef KEL_ENGINE_ENGINE_UTIL_H
#define KEL_ENGINE_ENGINE_UTIL_H

#include <cstdint>

struct Node {
  void* data;
  Node* next;
};

// A node of (data, next); null when out of memory.
Node* Node_Create(void* data, Node* next);
void Node_Destroy(Node* node);
// Appends data at the tail. Returns the head (the new node for an empty list), or null when
// out of memory (the list is unchanged).
Node* List_Insert(Node* head, void* data);
// Calls fn on each node's data in order; returns the number of nodes.
int List_Traverse(Node* head, void (*fn)(void*));
// Frees every node, not the data.
void List_Destroy(Node* head);

// Lower-cases ASCII A..Z in place.
void StringLower(char* s);
void KelSleep(unsigned long microseconds);

// The magic-number source: rand(), seeded once per process from the time of day.
void InitGenRandNum();
uint16_t GenRandNum();

#endif
