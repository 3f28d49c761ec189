# Files of plan/: core (no widgets) and ui (widgets).
