// Placeholder until the Mie module exists.
