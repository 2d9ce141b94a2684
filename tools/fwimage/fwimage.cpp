// Placeholder until the image tool lands.
int main() { return 0; }
