// main.cpp: the kaspo console program.
int main() { return 0; }
