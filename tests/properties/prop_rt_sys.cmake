# The work space reads its whole data file back after every command: fewer cases keep the
# sanitized run within its budget.
kvelo_add_property(prop_rt_sys CASES 50)
