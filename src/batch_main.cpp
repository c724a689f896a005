// Placeholder until the batch front end lands.
int main() { return 0; }
