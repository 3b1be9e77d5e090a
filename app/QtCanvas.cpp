// Placeholder until the Qt canvas exists.
