#include "engine/engine_util.h"

#include <sys/time.h>
#include <unistd.h>

#include <cstdlib>
#include <new>

Node* Node_Create(void* data, Node* next) {
  Node* node = new (std::nothrow) Node;
  if (node) {
    node->data = data;
    node->next = next;
  }
  return node;
}

void Node_Destroy(Node* node) { delete node; }

Node* List_Insert(Node* head, void* data) {
  Node* node = Node_Create(data, nullptr);
  if (!node) return nullptr;
  if (!head) return node;
  Node* tail = head;
  while (tail->next) tail = tail->next;
  tail->next = node;
  return head;
}

int List_Traverse(Node* head, void (*fn)(void*)) {
  int n = 0;
  for (Node* p = head; p; p = p->next, ++n)
    if (fn) fn(p->data);
  return n;
}

void List_Destroy(Node* head) {
  while (head) {
    Node* next = head->next;
    Node_Destroy(head);
    head = next;
  }
}

void StringLower(char* s) {
  if (!s) return;
  for (; *s; ++s)
    if (*s >= 'A' && *s <= 'Z') *s = static_cast<char>(*s - 'A' + 'a');
}

void KelSleep(unsigned long microseconds) { usleep(microseconds); }

void InitGenRandNum() {
  timeval tv{};
  gettimeofday(&tv, nullptr);
  srand(static_cast<unsigned>(tv.tv_sec + tv.tv_usec));
}

uint16_t GenRandNum() { return static_cast<uint16_t>(rand()); }
