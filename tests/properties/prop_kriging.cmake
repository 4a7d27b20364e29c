# Kriging fits are the costly part of every command: fewer, shorter sequences per case.
kvelo_add_property(prop_kriging CASES 30 SIZE 40)
