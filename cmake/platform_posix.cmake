# POSIX build: nothing beyond the defaults.
