// Being written: the command-line host.
int main() { return 0; }
