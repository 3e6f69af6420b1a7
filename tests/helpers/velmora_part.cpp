// Stands in for one of the product's binaries that carry its maker's version resource (a
// driver, a hook library, an AMSI provider): tests and the demo copy it under the names the
// product gives its files. Run, it does nothing.
int main() { return 0; }
