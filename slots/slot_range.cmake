# The slot pool: one worksheet function per number, QUORBELT_D<first> .. QUORBELT_D<last>.
set(QUORBELT_FIRST_SLOT 0)
set(QUORBELT_LAST_SLOT 2048)
