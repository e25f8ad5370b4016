// Linked against one simulator library alone: the linker then requires every
// symbol that library uses to come from the libraries it names.
int main() { return 0; }
