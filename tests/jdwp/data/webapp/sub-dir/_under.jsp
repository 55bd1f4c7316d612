<p>under-page</p>
