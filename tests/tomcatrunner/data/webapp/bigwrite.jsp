<p>before a write larger than the buffer</p>
<%= "0123456789".repeat(2000) %>
<p>after it</p>
