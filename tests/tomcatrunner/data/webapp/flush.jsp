<p>before the flush</p>
<% out.flush(); %>
<p>after the flush</p>
