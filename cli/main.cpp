// Placeholder until orvane-batch exists.
int main() { return 0; }
