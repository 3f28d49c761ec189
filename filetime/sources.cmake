# Files of filetime/: core (no widgets) and ui (widgets).
