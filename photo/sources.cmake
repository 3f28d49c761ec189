# Files of photo/: core (no widgets) and ui (widgets).
