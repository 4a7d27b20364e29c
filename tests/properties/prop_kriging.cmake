# Kriging fits are the costly part of every command: 200 cases keep the sanitized run near 10 s.
kvelo_add_property(prop_kriging CASES 200)
