// Placeholder: the notice answerer of the whole-program tests.
int main() { return 0; }
