! A Fortran host of libgonioctl through ISO_C_BINDING: opens the link, reads
! the angles, sets and reads the X-ray generator, and closes the link.
! Arguments go by reference unless the interface says VALUE, as the library
! documents; the queries with a '$' are bound by their exported names.
module gonioctl
    use, intrinsic :: iso_c_binding
    implicit none
    interface
        integer(c_int32_t) function gc_is_open() bind(C, name="gc$is_open")
            import :: c_int32_t
        end function
        integer(c_int32_t) function gc_needupdate(flag) bind(C, name="gc$needupdate")
            import :: c_int32_t
            integer(c_int32_t), intent(out) :: flag
        end function
        integer(c_int32_t) function gcsetport(port, ier) bind(C, name="gcsetport")
            import :: c_int32_t
            integer(c_int32_t), value :: port
            integer(c_int32_t), intent(out) :: ier
        end function
        integer(c_int32_t) function gcopen(ier) bind(C, name="gcopen")
            import :: c_int32_t
            integer(c_int32_t), intent(out) :: ier
        end function
        integer(c_int32_t) function gcclose(ier) bind(C, name="gcclose")
            import :: c_int32_t
            integer(c_int32_t), intent(out) :: ier
        end function
        integer(c_int32_t) function gcreada(angles, ier) bind(C, name="gcreada")
            import :: c_int32_t, c_float
            real(c_float), intent(out) :: angles(4)
            integer(c_int32_t), intent(out) :: ier
        end function
        integer(c_int32_t) function gcset_generator(kv, ma, ier) bind(C, name="gcset_generator")
            import :: c_int32_t, c_float
            real(c_float), value :: kv, ma
            integer(c_int32_t), intent(out) :: ier
        end function
        integer(c_int32_t) function gcget_generator(kv, ma, ier) bind(C, name="gcget_generator")
            import :: c_int32_t, c_float
            real(c_float), intent(out) :: kv, ma
            integer(c_int32_t), intent(out) :: ier
        end function
        integer(c_int32_t) function gcget_error_text(value, text) bind(C, name="gcget_error_text")
            import :: c_int32_t, c_char
            integer(c_int32_t), value :: value
            character(kind=c_char), intent(out) :: text(128)
        end function
    end interface
contains
    ! Stops with the library's text of a failed step.
    subroutine check(step, ier)
        character(*), intent(in) :: step
        integer(c_int32_t), intent(in) :: ier
        character(kind=c_char) :: text(128)
        character(128) :: line
        integer :: k, rc
        if (ier == 0) return
        text = ' '
        rc = gcget_error_text(ier, text)
        do k = 1, 128
            line(k:k) = text(k)
        end do
        write (*, '(a, a, i0, a, a)') step, ' failed: status ', ier, ': ', trim(line)
        error stop 1
    end subroutine
end module

program host
    use gonioctl
    implicit none
    integer(c_int32_t) :: ier, rc, flag
    real(c_float) :: angles(4), kv, ma

    rc = gcsetport(1, ier)
    rc = gcopen(ier)
    call check('gcopen', ier)
    if (gc_is_open() /= 1) error stop 'link not open'

    rc = gc_needupdate(flag)
    write (*, '(a, i0)') 'need-update flag: ', flag

    rc = gcreada(angles, ier)
    call check('gcreada', ier)
    write (*, '(a, 4f10.3)') 'angles:', angles

    rc = gcset_generator(35.0, 25.0, ier)
    call check('gcset_generator', ier)
    rc = gcget_generator(kv, ma, ier)
    call check('gcget_generator', ier)
    write (*, '(a, f6.1, a, f6.1, a)') 'generator', kv, ' kV', ma, ' mA'
    if (abs(kv - 35.0) > 0.01 .or. abs(ma - 25.0) > 0.01) error stop 'generator read-back differs'

    rc = gcclose(ier)
    call check('gcclose', ier)
    if (gc_is_open() /= 0) error stop 'link still open'
    write (*, '(a)') 'done'
end program
