// Stand-in for the maker's shared main program: only its file version matters to the installer.
int main() { return 0; }
