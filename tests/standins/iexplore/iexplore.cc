// Never run by the tests: the detection reads this file's version resource only.
int main() { return 0; }
