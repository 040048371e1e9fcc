// (being written) The Linux host program.
int main() { return 0; }
