<p>forwarded here</p>
